-- tables: audit
create procedure [sp_MSins_dboInsertedAudit] @c1 int
as
/* set identity_insert is done by the caller */
begin
	-- insert the row
	insert into [dbo].[InsertedAudit]([id], [the end]) values (@c1, 'end')
    end
GO
create procedure [sp_MSins_dbot] @c1 int as begin   insert into [dbo].[t]([id], endpoint) values (@c1, 2)  end   --
go
create procedure [sp_MSins_dboKey] @c1 int as begin insert into [dbo].[Key]([KeyID]) values (@c1) end
go
create procedure [sp_MSins_dboOrder] @c1 int as begin insert into "Order"("id") values (@c1) end select 1
go
