create procedure [dbo].[sp_MSins_dboOrders_319_msrepl_ccs]
		@c1 int,
		@c2 nvarchar(50)
as
begin
if exists (select * from [dbo].[Orders] where [OrderID] = @c1)
begin
update [dbo].[Orders] set [Name] = @c2
where [OrderID] = @c1
end
else
begin
	insert into [dbo].[Orders]([OrderID], [Name]) values (@c1, @c2)
end
end
GO
create procedure [dbo].[sp_MSdel_dboOrders_319_msrepl_ccs]
		@pkc1 int
as
begin
	delete [dbo].[Orders]
	where [OrderID] = @pkc1
end
GO
